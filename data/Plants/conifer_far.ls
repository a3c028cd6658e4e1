# Conifer, far away: seven whorls of three branches, two needle sprays a step.
7
36
8
FF"A
A=F[&&&'B]//////[&&&'B]//////[&&&'B]//"A
B="F[--~][++~]B
@
