# shellcheck shell=bash
# The Windows release from build-windows/: the two programs stripped, the licence and README
# with Windows line ends, the MSI (wixl, with the PATH entry wixl cannot write added by msibuild)
# and the portable zip.
: "${work:?the script sets work, its temporary folder, before sourcing this}"

# Fills FOLDER with the release's files.
release_files() { # VERSION FOLDER
    local version=$1 folder=$2
    mkdir -p "$folder"
    x86_64-w64-mingw32-strip -o "$folder/QDL4816.exe" build-windows/app/QDL4816.exe
    x86_64-w64-mingw32-strip -o "$folder/qdlctl.exe" build-windows/cli/qdlctl.exe
    sed 's/$/\r/' LICENSE >"$folder/LICENSE.txt"
    sed "s/@VERSION@/$version/; s/\$/\r/" app/windows/README.txt >"$folder/README.txt"
    cp build-windows/ui/win32/QDL4816.ico "$folder/"
    # For the MSI only: the portable zip leaves it out, and so keeps its settings beside it.
    printf 'This file tells QDL4816.exe that it is the installed copy: each user keeps the settings in %%APPDATA%%\\quadrel4816.\r\n' \
        >"$folder/QDL4816.installed"
}

# Builds the MSI of the files in FOLDER as product VERSION.
build_msi() { # VERSION FOLDER MSI
    local version=$1 folder=$2 msi
    msi=$(realpath -m "$3")
    sed -e "s|@VERSION@|$version|g; s|@ICON_FILE@|QDL4816.ico|; s|@WINDOW_EXE@|QDL4816.exe|" \
        -e "s|@QDLCTL_EXE@|qdlctl.exe|; s|@LICENSE_FILE@|LICENSE.txt|; s|@README_FILE@|README.txt|" \
        app/windows/Quadrel4816.wxs >"$folder/Quadrel4816.wxs"
    # The install folder at the end of the system's PATH while qdlctl is installed: set at
    # install (=), removed at uninstall (-), the machine's variable (*), appended ([~];).
    printf 'Environment\tName\tValue\tComponent_\r\ns72\tl255\tL255\ts72\r\nEnvironment\tEnvironment\r\n%s\r\n' \
        $'PathEntry\t=-*PATH\t[~];[INSTALLDIR]\tCommandLine' >"$folder/Environment.idt"
    rm -f "$msi"
    (
        cd "$folder"
        wixl --arch x64 -o "$msi" Quadrel4816.wxs
        # The row that finds an installed older product takes the same version too (its
        # VersionMaxInclusive bit), so that a rebuild of one version replaces the installed one
        # instead of installing beside it.
        msiinfo export "$msi" Upgrade |
            awk 'BEGIN { FS = OFS = "\t" } /\tWIX_UPGRADE_DETECTED\r?$/ { $5 += 512 } { print }' >Upgrade.idt
        msibuild "$msi" -i Environment.idt -i Upgrade.idt \
            -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RemoveEnvironmentStrings', 3300)" \
            -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('WriteEnvironmentStrings', 5200)"
    )
}

# Zips the programs, licence and README of FOLDER as NAME/ in ZIP.
build_zip() { # FOLDER NAME ZIP
    local folder=$1 name=$2 zip
    zip=$(realpath -m "$3")
    rm -rf "${work:?}/zip" "$zip"
    mkdir -p "$work/zip/$name"
    cp "$folder"/QDL4816.exe "$folder"/qdlctl.exe "$folder"/LICENSE.txt "$folder"/README.txt "$work/zip/$name/"
    (cd "$work/zip" && zip -qr "$zip" "$name")
}
