# Bush, far away: seven stems, three forks, broad leaves.
4
24
10
[&&S]///[&S]///[&&S]///[&S]///[&&S]///[&S]///[S]
S="F[+LS][-LS]
L=[^'~][&''~]
@
