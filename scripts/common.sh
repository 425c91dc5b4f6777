# Sourced by the scripts: installs missing Debian packages and configures a build.

norvane_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Installs whichever of the named packages are missing; a no-op once they are there.
need_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

norvane_build_packages=(cmake ninja-build g++ qt6-base-dev libgl-dev fonts-dejavu-core fonts-dejavu-extra
                        libqcustomplot-dev libtango-dev pkg-config)

# Warnings stop the build where NORVANE_WERROR=ON, as CI sets it.
norvane_werror="-DCMAKE_COMPILE_WARNING_AS_ERROR=${NORVANE_WERROR:-OFF}"

# Configures and builds into $1 with the remaining arguments passed to CMake.
build_norvane() {
    local dir=$1; shift
    cmake -S "$norvane_root" -B "$dir" -G Ninja "$norvane_werror" "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}
