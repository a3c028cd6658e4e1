# Broadleaf tree, near view: a trunk forking into three limbs at every level, leaves on every
# twig, which fills out a round crown; limbs spread one of two ways, so no two trees are alike.
6          # generations
32         # turning angle
12         # branch thickness, percent of the segment length
FFA
A=!"F[&&LA]/////[&&LA]/////[&&LA]
A=!"F[&&LA]////[&LA]//////[&&&LA]
L=[^'~][&'~][/''~][\''~]
@
