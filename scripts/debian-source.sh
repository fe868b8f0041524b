# Sourced by the scripts that cross-build Debian's own source packages for
# Windows (build-qt-mingw.sh, build-sodium-mingw.sh). Needs $sudo set.

# apt-get source needs source entries; add them for the suites configured for
# binaries, in whichever format the machine uses.
enable_sources() {
    local lists=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources)
    if grep -qsE '^(Types:.*deb-src|deb-src )' "${lists[@]}"; then
        return
    fi
    local deb822 legacy
    deb822=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | sed -E 's/^Types:.*/Types: deb-src/')
    legacy=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | sed -nE 's/^deb (.*)/deb-src \1/p')
    [[ -n $deb822 ]] && echo "$deb822" | $sudo tee /etc/apt/sources.list.d/kd740-deb-src.sources >/dev/null
    [[ -n $legacy ]] && echo "$legacy" | $sudo tee /etc/apt/sources.list.d/kd740-deb-src.list >/dev/null
    $sudo apt-get update -qq
}
