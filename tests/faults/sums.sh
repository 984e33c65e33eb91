# sums DIR: one "name md5" line for each file of the library DIR/lib/sym (not
# its lock directory), sorted by name. Sourced by the reliability scripts.
sums() {
  (cd "$1/lib/sym" && find . -maxdepth 1 -type f -exec md5sum -- {} + | sed 's|  \./| |' |
    awk '{ print $2, $1 }' | sort)
}
