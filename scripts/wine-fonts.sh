# Sourced by scripts/wine-env.sh and tests/e2e/wine_session.sh.
#
#   wine_link_fonts PREFIX    puts Wine's own fonts into the prefix's C:\windows\Fonts
#
# Debian's fonts-wine installs Wine's own fonts (Marlett, MS Sans Serif, Tahoma, ...) in
# /usr/share/wine/fonts, but this Wine looks for them at "<data dir>\../fonts", an NT path
# that its file lookup refuses ("..", status c0000033), so it never reads that folder. A
# prefix then has no Marlett, whose glyphs "0", "1" and "r" draw the caption buttons,
# which therefore show as those letters; and the dialogs' "MS Sans Serif", registered as
# sserife.fon in C:\windows\Fonts where no such file is, falls to a wider font that clips
# labels. Wine does read C:\windows\Fonts, as Windows does: linking the files there gives
# the program the fonts it has on Windows. Safe to run again.
wine_link_fonts() {
  local fonts="$1/drive_c/windows/Fonts" src=/usr/share/wine/fonts f
  if [ ! -f "$src/marlett.ttf" ] || [ ! -f "$src/sserife.fon" ]; then
    echo "Wine's own fonts are missing from $src (Debian's fonts-wine; scripts/install-deps.sh installs it)" >&2
    return 1
  fi
  mkdir -p "$fonts"
  for f in "$src"/*; do
    [ -e "$fonts/${f##*/}" ] || ln -s "$f" "$fonts/${f##*/}"
  done
}
