file(REMOVE_RECURSE
  "liblwcore.a"
)
