#!/usr/bin/env bash
# Builds both DLLs in Release and packs dist/KELVRIN-<version>-windows.zip:
#
#   x64/KELVRIN.dll, x64/KELVRIN.ini   for 64-bit hosts
#   x86/KELVRIN.dll, x86/KELVRIN.ini   for 32-bit hosts
#   guide/*.html, guide/charts/*       the guide for train authors, offline:
#                                      each example's page and its picture
#   licences/uPlot.txt                 the licence of the charting library
#                                      that drive.exe puts into its pages
#   README.txt
#
# A DLL that fails the export and import check is not packed, nor an x86 DLL
# whose code fails its check. The packed zip is then checked as a train author
# gets it: unpacked, both DLLs loaded under wine from their folders (the x86
# one only where 32-bit programs run), every link of the guide resolving.
#
#   bash scripts/release.sh      (prints the zip's path last)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

guide_pages=(guide cab atc troubleshooting safety)

cache_value() {  # cache_value BUILD_DIR NAME
  sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"
}

# Both builds, tests and tools off: the DLL is all a release needs.
declare -A preset=([x64]=windows [x86]=windows32) format=([x64]=pei-x86-64 [x86]=pei-i386)
for arch in x64 x86; do
  cmake --preset "${preset[$arch]}" -B "build/release-$arch" -DCMAKE_BUILD_TYPE=Release \
    -DKELVRIN_BUILD_TESTS=OFF >/dev/null
done
version=$(cache_value build/release-x64 CMAKE_PROJECT_VERSION)
zip_path=$root/dist/KELVRIN-$version-windows.zip
rm -f "$zip_path"  # a failed build or check leaves no zip behind

for arch in x64 x86; do
  dir=build/release-$arch
  echo "== KELVRIN.dll, $arch, Release ($dir)"
  cmake --build "$dir" -j2 --target KELVRIN drive
  cmake -DOBJDUMP="$(cache_value "$dir" CMAKE_OBJDUMP)" -DDLL="$dir/plugin/KELVRIN.dll" \
    -DDEF=plugin/exports.def -DFORMAT="${format[$arch]}" -P tests/windows/check_dll_tables.cmake
done
# The x86 DLL's code, read without running it: each entry point pops what the
# host pushed, and the ATC core and the plug-in use no x87 arithmetic.
objects=$(ls build/release-x86/controller/CMakeFiles/atc_controller.dir/*.obj \
  build/release-x86/plugin/CMakeFiles/kelvrin_plugin.dir/*.obj | paste -sd'|')
cmake -DOBJDUMP="$(cache_value build/release-x86 CMAKE_OBJDUMP)" \
  -DDLL=build/release-x86/plugin/KELVRIN.dll "-DOBJECTS=$objects" -P cmake/CheckX86Code.cmake

stage=build/release-stage
rm -rf "$stage"
mkdir -p "$stage/guide/charts"
for arch in x64 x86; do
  mkdir -p "$stage/$arch"
  cp "build/release-$arch/plugin/KELVRIN.dll" plugin/KELVRIN.ini \
    "build/release-$arch/tools/drive.exe" "$stage/$arch/"
done
mkdir -p "$stage/examples" "$stage/licences"
cp examples/*.toml "$stage/examples/"
cp tools/report/node_modules/uplot/LICENSE "$stage/licences/uPlot.txt"
cp docs/charts/*.png "$stage/guide/charts/"

# The examples' pages, which the guide's pictures link to, written by the
# native drive tool: the same page drive.exe writes.
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target drive KELVRIN
pages=build/release-pages
rm -rf "$pages"
for scenario in examples/*.toml; do
  name=$(basename "$scenario" .toml)
  build/default/tools/drive "$scenario" --plugin build/default/plugin/KELVRIN.so \
    --out "$pages/$name" --quiet >/dev/null
  cp "$pages/$name/report.html" "$stage/guide/charts/$name.html"
done
build/default/tools/drive examples/approach.toml --plugin build/default/plugin/KELVRIN.so \
  --compare --set ATCBrakeNotch=4 \
  --set ATCBrakeNotch=default --out "$pages/compare" --quiet >/dev/null
cp "$pages/compare/report.html" "$stage/guide/charts/compare.html"

# The guide's pages as HTML. Headings get the ids GitHub gives them, so that
# links to a section work; links to another page of the guide point at its
# HTML, and a page of docs/ left out of guide_pages stops the release; a link
# to anything else that is not in the zip keeps only its text.
for page in "${guide_pages[@]}"; do
  cmark-gfm -e table "docs/$page.md" | GUIDE_DIR="$stage/guide" GUIDE_PAGES="${guide_pages[*]}" \
    perl -0777 -ne '
      my %pages = map { $_ => 1 } split / /, $ENV{GUIDE_PAGES};
      sub text_of { my $t = shift; $t =~ s/<[^>]*>//g; $t =~ s/&amp;/&/g;
                    $t =~ s/&lt;/</g; $t =~ s/&gt;/>/g; $t =~ s/&quot;/"/g; $t }
      sub slug { my $s = lc text_of(shift); $s =~ s/[^\w\- ]//g; $s =~ s/ /-/g; $s }
      s{<h([1-6])>(.*?)</h\1>}{"<h$1 id=\"" . slug($2) . "\">$2</h$1>"}ge;
      # A picture of a run opens the run'"'"'s page, where there is one.
      s{(<img src="charts/([\w-]+)\.png"[^>]*>)}{
        -f "$ENV{GUIDE_DIR}/charts/$2.html" ? "<a href=\"charts/$2.html\">$1</a>" : $1
      }ge;
      s{<a href="([^"#]*)(#[^"]*)?">(.*?)</a>}{
        my ($path, $fragment, $text) = ($1, $2 // "", $3);
        if ($path =~ m{^([\w-]+)\.md$} && $pages{$1}) { "<a href=\"$1.html$fragment\">$text</a>" }
        elsif ($path =~ m{^[\w-]+\.md$}) { die "release: a page links to docs/$path, which is not in guide_pages\n" }
        elsif ($path eq "" || $path =~ m{^[a-z]+:} || -f "$ENV{GUIDE_DIR}/$path") { $& }
        else { $text }
      }ge;
      my ($title) = m{<h1[^>]*>(.*?)</h1>};
      $title = text_of($title // "KELVRIN");
      print "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n",
            "<title>$title</title>\n<style>body{max-width:50em;margin:auto;padding:0 1em;",
            "font-family:sans-serif;line-height:1.45}table{border-collapse:collapse}",
            "th,td{border:1px solid #bbb;padding:.2em .5em}code{background:#f3f3f3}",
            "img{max-width:100%}</style>\n</head>\n<body>\n$_</body>\n</html>\n";
    ' >"$stage/guide/$page.html"
done

sed 's/$/\r/' >"$stage/README.txt" <<EOF
KELVRIN $version - cab-signalling ATC plug-in for train simulators

Which folder to use
  x64\\   KELVRIN.dll for simulators that run as 64-bit programs
  x86\\   KELVRIN.dll for simulators that run as 32-bit programs
  64-bit Windows runs either kind of simulator: pick the folder that matches
  the simulator, not Windows. A KELVRIN.dll's Properties, Details tab, shows
  its version and whether it is the 64-bit or the 32-bit one.

Trying it out
  Each folder's drive.exe plays a scenario against the KELVRIN.dll beside it
  and writes a summary, a trace and a page to open in a browser
  (report.html). In a console in the x64 folder:
    drive.exe ..\\examples\\approach.toml
    drive.exe --check-ini KELVRIN.ini
  drive.exe --help lists its options; guide\\guide.html says more.

Installing
  Copy KELVRIN.dll and KELVRIN.ini from that one folder into the train's
  folder. Each KELVRIN.dll reads only the KELVRIN.ini that lies beside it.

The guide
  Open guide\\guide.html in a browser: installing, the options, wiring the cab,
  how the ATC behaves, troubleshooting, the safety requirements.

Licences
  The pages drive.exe writes carry uPlot, whose MIT licence is in
  licences\\uPlot.txt.
EOF

mkdir -p dist
(cd "$stage" && zip -q -X -r "$zip_path" README.txt x64 x86 examples guide licences)

echo "== checking the zip as a train author unpacks it"
bash tests/release/check-release-zip.sh "$zip_path" || {
  rm -f "$zip_path"
  echo "release: the zip failed its check and was removed" >&2
  exit 1
}

echo
x86=$(bash scripts/x86-support.sh)
if [ "${x86%%:*}" = none ]; then
  echo "Note: x86/KELVRIN.dll passed its table and code checks but was not run: 32-bit programs can't run here (${x86#none: })."
fi
echo "Release: $zip_path"
