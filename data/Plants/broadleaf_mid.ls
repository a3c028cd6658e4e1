# Broadleaf tree, middle distance: one level of forks fewer, three leaves to a twig.
5
32
12
FFA
A=!"F[&&LA]/////[&&LA]/////[&&LA]
A=!"F[&&LA]////[&LA]//////[&&&LA]
L=[^'~][&'~][/''~]
@
