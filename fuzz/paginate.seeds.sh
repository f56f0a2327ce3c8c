#!/usr/bin/env bash
# Writes a few small generated documents into DIR as pagination seeds.
set -euo pipefail
dir=$1
mkdir -p "$dir"
printf 'Hello world, a line that wraps on a narrow page.' >"$dir/text"
printf '<p>one<p>two<br><br>three<hr size=3><hr noshade width=50%%>' >"$dir/paragraphs"
printf '<table border=1 forcedisplay=W><thead><tr><td>h</td></tr></thead><tr><td>a<tr><td>b<tr><td>c</table>' >"$dir/split"
printf '<table width=50%% height=90%%><tr><td rowspan=2>x<td colspan=2>y<tr><td>z</table>' >"$dir/spans"
printf '<table><tr><td><table border=2><tr><td>inner</table></table>' >"$dir/nested"
printf '<html><body>one</body><body>two</body></html>' >"$dir/bodies"
printf 'abcdefghijklmnopqrstuvwxyz<img width=300 height=400 align=left>t' >"$dir/wide"
printf '<table cellspacing=-5 cellpadding=400000000 border=-1 frame=void><tr><td>a<td>b</table>x' >"$dir/negative"
printf '<hr size=2147483647><img width=400000000 height=-3 border=-2>t<table width=-1 height=2147483647><tr><td width=-9>c</table>' >"$dir/huge"
printf '<!DOCTYPE html><html><body><table forcedisplay=W><thead><tr><td>h<br>h<br>h<br>h<br>h<br>h<br>h<br>h<br>h<br>h<br>h</td></tr></thead><tr><td>a<tr><td>b</table></body></html>' >"$dir/doctype-head"
