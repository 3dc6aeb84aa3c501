# Sums a callgrind output file's self cost by the object that ran it; prints "instructions<TAB>object" lines.
# Object names are compressed: "(id) name" the first time, "(id)" after, in ob= and cob= lines alike.
function named(text,   id, rest) {
  if (match(text, /^\([0-9]+\)/)) {
    id = substr(text, RSTART, RLENGTH)
    rest = substr(text, RLENGTH + 2)
    if (rest != "") names[id] = rest
    return names[id]
  }
  return text
}
/^ob=/ { object = named(substr($0, 4)); next }
/^cob=/ { named(substr($0, 5)); next }
# The line after calls= is the callee's inclusive cost, which is counted where the callee runs.
/^calls=/ { call = 1; next }
/^[0-9+*-]/ { if (call) call = 0; else cost[object] += $2; next }
END { for (o in cost) printf "%d\t%s\n", cost[o], o }
