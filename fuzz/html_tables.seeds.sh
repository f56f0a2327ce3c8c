#!/bin/bash
# Writes table-heavy documents into the directory given as $1.
set -eu
dir=$1
mkdir -p "$dir"
printf '<table><tr><td>a<td>b<tr><td>c</table>' > "$dir/short_row.html"
printf '<table><tr><td rowspan=3 colspan=2>a<td>b<tr><td>c<tr><td colspan=4>d</table>' > "$dir/spans.html"
printf '<table><tr><td>A<td rowspan=2>B<tr><td colspan=2>C</table>' > "$dir/overlap.html"
printf '<table><thead><tr><td>h</thead><tr><td colspan=-2>x<td rowspan=0>y</table><table></table>' > "$dir/thead.html"
printf '<table border=1><tr><td><table><tr><td colspan=2000000000>n</table><td>z</table>' > "$dir/nested.html"
printf '<ul><li>one<li>two<ul><li>deep</ul></ul><table><tr></tr><tr></tr></table>' > "$dir/lists.html"
