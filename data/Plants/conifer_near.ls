# Conifer, near view: a straight trunk with whorls of five needled branches, each whorl shorter
# than the one below it, so the crown narrows to a point; branch steps roll one of two ways,
# so no two trees are alike.
12         # generations
36         # turning angle (five branches to a whorl, three rolls apart)
6          # branch thickness, percent of the segment length
FF"A
A=F[&&&'B]///[&&&'B]///[&&&'B]///[&&&'B]///[&&&'B]/"A
B="F[N]B
B="F[N]/B
N=[--~][++~][-~][+~][&~][^~]
@
