# Copies the program's folders from the repository's data/ folder beside a program: every folder
# the program looks for beside itself exists, with its sample content. Run with -P, given SOURCE
# (the data folder) and DESTINATION (the program's folder). Files already there with the same time
# stamp are not copied again; files of the user's own are left alone.
foreach(folder Overlays Plants Models Clouds Templates plugin)
  file(MAKE_DIRECTORY "${DESTINATION}/${folder}")
  if(IS_DIRECTORY "${SOURCE}/${folder}")
    file(COPY "${SOURCE}/${folder}/" DESTINATION "${DESTINATION}/${folder}")
  endif()
endforeach()
