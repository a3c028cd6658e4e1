# Bush, middle distance: the same seven stems with one fork fewer.
5
24
10
[&&S]///[&S]///[&&S]///[&S]///[&&S]///[&S]///[S]
S="F[+LS][-LS]/L
S="F[+LS]/[-LS]L
L=[^'~][&''~]
@
