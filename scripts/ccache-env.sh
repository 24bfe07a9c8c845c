# Sourced by the build scripts: the compiler cache, kept in the user's cache
# folder, shared by every checkout of the project on this machine. Paths are
# hashed relative to the checkout, so a fresh clone in another folder hits
# what an earlier one compiled.
#
# The size and the settings that do not depend on the checkout go into the
# cache's own configuration, so that a build started from a shell without
# these variables neither evicts the project's objects at ccache's default
# 5 GB nor stores them apart.
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$here}"
  tw_cache_size="${TW_CCACHE_SIZE:-20G}"
  ccache --set-config=max_size="$tw_cache_size" >/dev/null
  ccache --set-config=hash_dir=false >/dev/null
  # Precompiled headers stay valid across clones when ccache ignores their
  # time stamps.
  ccache --set-config=sloppiness=pch_defines,time_macros,include_file_mtime,include_file_ctime >/dev/null
  tw_launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
else
  tw_launcher=()
fi
