# Bush, near view: seven stems from the ground, leaning out at two angles, each forking twice a
# step, densely leaved; forks turn one of two ways, so no two bushes are alike.
6          # generations
24         # turning angle (stems three rolls apart)
10         # stem thickness, percent of the segment length
[&&S]///[&S]///[&&S]///[&S]///[&&S]///[&S]///[S]
S="F[+LS][-LS]/L
S="F[+LS]/[-LS]L
L=[^'~][&''~][\'~]
@
