# Conifer, middle distance: the whorls of the near view, three fewer, with four needle sprays a
# step.
9
36
7
FF"A
A=F[&&&'B]///[&&&'B]///[&&&'B]///[&&&'B]///[&&&'B]/"A
B="F[N]B
B="F[N]/B
N=[--~][++~][&~][^~]
@
