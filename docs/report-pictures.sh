#!/usr/bin/env bash
# Makes the pictures of printed and previewed listings in docs/ again:
#   report-listing-*.png     pages of listings printed to PDF by tst_reportpdf, at 96 dpi
#                            (one report unit a pixel, as the paper shows at 100 %)
#   report-preview-*.png,    the preview window, by tst_reportpreview's screenshot test
#   report-page-setup.png
#   query-preview.png        the query screen's preview, by tst_queryform's screenshot test
#
#   docs/report-pictures.sh [build dir]      (default: build; configured as in README.md)
#
# Needs poppler-utils (pdftoppm, pdfinfo). Look at every picture at 100 % afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
docs=$root/docs

cmake --build "$build" --target tst_reportpdf tst_reportpreview tst_queryform
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='qt.qpa.*=false'
export SQDA_KEEP_REPORT_PDF=$work SQDA_SCREENSHOT_DIR=$work
"$build/tests/report/tst_reportpdf" multiPageListing headerBlockHeight longNameIsCutToOneLine \
  overWideColumnsPrintASecondPageSet >"$work/pdf.log" || { cat "$work/pdf.log"; exit 1; }
"$build/tests/reportui/tst_reportpreview" screenshot >"$work/preview.log" || { cat "$work/preview.log"; exit 1; }
"$build/tests/query/tst_queryform" screenshot >"$work/query.log" || { cat "$work/query.log"; exit 1; }

# page PDF PAGE PICTURE [HEIGHT]: one page at 96 dpi, its top HEIGHT pixels when given.
page() {
  local crop=()
  [ $# -ge 4 ] && crop=(-x 0 -y 0 -W 794 -H "$4")
  pdftoppm -png -r 96 -f "$2" -l "$2" -singlefile "${crop[@]}" "$work/$1" "$docs/${3%.png}"
}
last=$(pdfinfo "$work/listing.pdf" | awk '/^Pages:/ { print $2 }')
page listing.pdf 1 report-listing-page1.png
page listing.pdf "$last" report-listing-last-page.png 420
page conditions.pdf 1 report-listing-conditions.png 330
page filter-row.pdf 1 report-listing-filter-row.png 300
page longname.pdf 1 report-listing-long-name.png 300
page pagesets.pdf 2 report-listing-page-set2.png 200

for png in report-preview-page1.png report-preview-find.png report-page-setup.png query-preview.png; do
  cp "$work/$png" "$docs/$png"
done
echo "Pictures written to $docs"
