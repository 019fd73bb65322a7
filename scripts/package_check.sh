#!/usr/bin/env bash
# Installs into a scratch DESTDIR and runs the installed programs from there, validates the
# desktop entry and the AppStream metainfo, then builds the Debian package and looks inside.
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
for p in desktop-file-utils appstream dpkg-dev lintian man-db; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_=""; [ "$(id -u)" -ne 0 ] && sudo_=sudo
    $sudo_ apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_ apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
build=build-package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DTESMORA_BENCHMARKS=OFF -DTESMORA_WERROR="${TESMORA_WERROR:-OFF}" >/dev/null
cmake --build "$build" --target tesmora tesmora-cli tesmora-install-data
root=$(mktemp -d)
home=$(mktemp -d)
trap 'rm -rf "$root" "$home"' EXIT
DESTDIR="$root" cmake --install "$build" >/dev/null

export QT_QPA_PLATFORM=offscreen HOME="$home" XDG_DATA_HOME="$home/.local/share"
"$root/usr/bin/tesmora-cli" --version
"$root/usr/bin/tesmora-cli" fit 12.1 13.4 11.8 14.2 13.9 11.5 13.0 12.2 15.1 14.8 15.3 |
    grep -q '^Y= 15.066'
# The installed window starts, stays up, and ends the orderly way on SIGTERM.
"$root/usr/bin/tesmora" & window=$!
sleep 2
kill -0 "$window"
kill -TERM "$window"
wait "$window"
echo "installed programs run"

desktop-file-validate "$root/usr/share/applications/org.tesmora.Tesmora.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.tesmora.Tesmora.metainfo.xml"
for f in usr/share/icons/hicolor/16x16/apps/org.tesmora.Tesmora.png \
         usr/share/icons/hicolor/48x48/apps/org.tesmora.Tesmora.png \
         usr/share/icons/hicolor/scalable/apps/org.tesmora.Tesmora.svg \
         usr/share/man/man1/tesmora-cli.1.gz usr/share/man/man1/tesmora.1.gz \
         usr/share/doc/tesmora/help.html usr/share/doc/tesmora/copyright \
         usr/share/doc/tesmora/changelog.gz; do
    test -s "$root/$f"
done

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tesmora_*.deb)
dpkg-deb --info "$deb"
contents=$(dpkg-deb --contents "$deb")
grep -q './usr/bin/tesmora-cli' <<<"$contents"
grep -q './usr/share/applications/org.tesmora.Tesmora.desktop' <<<"$contents"
grep -q './usr/share/man/man1/tesmora-cli.1.gz' <<<"$contents"
# Debian's rules for a package, checked by Debian's own tool: no error may remain.
lintian --fail-on error --tag-display-limit 0 "$deb"
# The pages read in a locale that cannot show Chinese still name the files.
LC_ALL=C MANWIDTH=100 man -l "$root/usr/share/man/man1/tesmora-cli.1.gz" 2>/dev/null |
    grep -q 'peifang shuju'
echo "package: $deb"
