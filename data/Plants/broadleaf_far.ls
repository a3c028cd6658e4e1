# Broadleaf tree, far away: trunk, three levels of limbs and a few large leaves.
3
32
12
FFA
A=!F[&&LA]/////[&&LA]/////[&&LA]
L=[^'~][&'~][/''~][\''~]
@
