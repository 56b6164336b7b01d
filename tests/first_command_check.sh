#!/usr/bin/env bash
# README.md's first command: tools/install-deps --build installs what the build of the three
# programs needs, and the command then builds and runs them from a fresh copy of the sources.
#
#   first_command_check.sh packages SOURCE_DIR CMAKE_CACHE
#       tools/install-deps --build --dry-run, with dpkg's answers faked, names exactly the
#       missing packages of the build's list; the list holds the package of every tool and
#       library the configure in CMAKE_CACHE found, and the full list holds it all.
#   first_command_check.sh fresh-clone SOURCE_DIR WORK_DIR
#       runs the first command verbatim in a clean copy of SOURCE_DIR's committed tree, with
#       dpkg saying libcli11-dev is missing and apt-get recorded instead of run: it must ask
#       apt-get for libcli11-dev, then build lvlim, lvlim-table and lvlim-data, which all run.
set -euo pipefail

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

mode=$1
src=$(cd "$2" && pwd)

# A directory of stand-ins put first on PATH: dpkg-query reports the packages in
# $FAKE_MISSING (or every package for '*') as not installed and the rest as installed;
# apt-get appends its arguments to $FAKE_APT_LOG; id says root.
shims=$(mktemp -d)
trap 'rm -rf "$shims"' EXIT
cat >"$shims/dpkg-query" <<'SHIM'
#!/usr/bin/env bash
package=${!#}
if [[ ${FAKE_MISSING:-} == '*' || " ${FAKE_MISSING:-} " == *" $package "* ]]; then
    echo "dpkg-query: no packages found matching $package" >&2
    exit 1
fi
printf 'install ok installed'
SHIM
printf '#!/usr/bin/env bash\necho "$*" >>"$FAKE_APT_LOG"\n' >"$shims/apt-get"
printf '#!/usr/bin/env bash\necho 0\n' >"$shims/id"
chmod +x "$shims"/*

deps() { # MISSING ARGS...: tools/install-deps ARGS with the packages MISSING missing
    local missing=$1
    shift
    PATH="$shims:$PATH" FAKE_MISSING=$missing "$src/tools/install-deps" "$@"
}
# The packages an apt-get command line installs, one a line, sorted.
installed_by() { sed -n 's/.*apt-get install -y --no-install-recommends //p' | tr ' ' '\n' | sort; }

case $mode in
packages)
    cache=$3
    apt='apt-get update && apt-get install -y --no-install-recommends'
    [[ $(deps "" --build --dry-run) == "" ]] || fail "--build --dry-run printed a command with nothing missing"
    got=$(deps "libcli11-dev" --build --dry-run)
    [[ $got == "$apt libcli11-dev" ]] || fail "one missing package: got '$got'"
    got=$(deps "nlohmann-json3-dev googletest" --build --dry-run)
    [[ $got == "$apt nlohmann-json3-dev" ]] || fail "a test package in the build's list: got '$got'"

    build_list=$(deps '*' --build --dry-run | installed_by)
    full_list=$(deps '*' --dry-run | installed_by)
    [[ -n $build_list ]] || fail "--build lists no package"
    extra=$(comm -23 <(echo "$build_list") <(echo "$full_list"))
    [[ -z $extra ]] || fail "in the build's list but not the full one: $extra"
    # --dry-run installs nothing, so the recorder must stay empty.
    log=$shims/apt.log
    FAKE_APT_LOG=$log deps '*' --build --dry-run >/dev/null
    [[ ! -e $log ]] || fail "--dry-run ran apt-get"

    # Every tool and library this tree's configure found belongs to a listed package (the
    # compiler through the version its package depends on).
    value() { sed -n "s/^$1:[A-Z]*=//p" "$cache"; }
    owner() { dpkg -S "$1" 2>/dev/null | head -n1 | cut -d: -f1; }
    listed() { grep -qxF "$1" <<<"$build_list"; }
    for path in "$(value CMAKE_COMMAND)" "$(value CMAKE_MAKE_PROGRAM)" \
        "$(value CLI11_DIR)" "$(value nlohmann_json_DIR)"; do
        [[ -n $path ]] || fail "$cache lacks a path the build needs"
        package=$(owner "$(realpath "$path")")
        listed "$package" || fail "$path comes from $package, which --build does not install"
    done
    compiler=$(owner "$(realpath "$(value CMAKE_CXX_COMPILER)")")
    brought=false
    for package in $build_list; do
        depends=", $(dpkg-query -W -f='${Depends}' "$package" 2>/dev/null),"
        if [[ $package == "$compiler" || $depends == *", $compiler "* ||
            $depends == *", $compiler,"* ]]; then
            brought=true
        fi
    done
    $brought || fail "the compiler comes from $compiler, which --build does not bring"

    # README.md's first command starts with this mode and builds the default preset.
    first=$(sed -n '/^```sh$/{n;p;q}' "$src/README.md")
    [[ $first == "tools/install-deps --build && cmake --preset default && cmake --build build && "* ]] ||
        fail "README.md's first command is '$first'"
    ;;
fresh-clone)
    work=$3
    rm -rf "$work"
    mkdir -p "$work"
    # The committed tree, as a clone has it: no build directories, nothing uncommitted.
    git -C "$src" archive HEAD | tar -x -C "$work"
    first=$(sed -n '/^```sh$/{n;p;q}' "$work/README.md")
    export FAKE_APT_LOG=$work/apt.log
    (cd "$work" && PATH="$shims:$PATH" FAKE_MISSING=libcli11-dev bash -c "$first") >"$work/first.out" ||
        fail "the first command failed: $first"
    grep -qx "install -y -qq --no-install-recommends libcli11-dev" "$FAKE_APT_LOG" ||
        fail "apt-get was not asked for libcli11-dev: $(cat "$FAKE_APT_LOG" 2>/dev/null)"
    grep -q "LowerConfidenceLimit=" "$work/first.out" || fail "lvlim printed no limits"
    "$work/build/lvlim-table" -s 1.2 -n 20 >/dev/null || fail "lvlim-table does not run"
    "$work/build/lvlim-data" "$work/examples/concentrations.txt" >/dev/null ||
        fail "lvlim-data does not run"
    rm -rf "$work"
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
