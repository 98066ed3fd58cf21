# SPDX-License-Identifier: MIT
# Run by cpack on the staged files before it packs them (CPACK_PRE_BUILD_SCRIPTS).
# The install creates directories with mkdir, which the umask of the build
# narrows (0700 under umask 077); packages need them 0755 whoever builds.
# Files get their modes from install() explicitly and are left alone.
cmake_minimum_required(VERSION 3.20)

file(CHMOD_RECURSE "${CPACK_TEMPORARY_DIRECTORY}"
     DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                           GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
