# Sourced by the build scripts: the compiler cache, kept in the user's cache
# folder, shared by every checkout of the project on this machine. Paths are
# hashed relative to the checkout, so a fresh clone in another folder hits
# what an earlier one compiled.
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ccache}"
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$here}"
  export CCACHE_NOHASHDIR=1
  export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-20G}"
  # Precompiled headers stay valid across clones when ccache ignores their
  # time stamps.
  export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}"
  tw_launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
else
  tw_launcher=()
fi
