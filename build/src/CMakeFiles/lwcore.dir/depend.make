# Empty dependencies file for lwcore.
# This may be replaced when dependencies are built.
