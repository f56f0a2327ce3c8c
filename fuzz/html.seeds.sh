#!/usr/bin/env bash
# Writes a few small generated HTML documents into DIR as fuzzing seeds.
set -euo pipefail
dir=$1
mkdir -p "$dir"
printf 'Hello' >"$dir/text"
printf '<b>bold</b> text <p align=center>a<b>b</b>c</p>' >"$dir/styles"
printf '<table border=1><thead><tr><th>h</th></tr></thead><tr><td colspan=2>x<td>y</tr></table>' >"$dir/table"
printf '<ul><li>One<li>Two<ol><li>nested</ol></ul><hr size=2>' >"$dir/list"
printf '<html><head><title>T</title></head><body>Hi &amp; &lt;bye&gt; &#65;</body></html>' >"$dir/page"
printf '<pre>a\tb  c\n</pre><nobr>x y</nobr><script>if(a<b)x="</p>"</script>' >"$dir/pre"
printf '<!DOCTYPE html><td <!-- c --> width=3><img src="a.png">t<img embed-encoding=uu>QUJD</img>' >"$dir/odd"
