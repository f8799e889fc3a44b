# Sourced by scripts/run, scripts/test and scripts/smoke: what the Windows
# programs need under wine beyond wine itself, and a wine prefix set up for
# them (fonts, and the classic look). Not a program of its own.
#
# Fonts. The window draws its lists and editors in Arial, which wine serves
# from Liberation Sans; neither has Chinese, Japanese or Korean letters, so
# tables in those languages would show boxes. Windows fills such gaps by
# font linking; the prefix gets the same: Liberation Sans links to
# WenQuanYi Micro Hei (and to Noto Sans CJK where installed), which is how
# the lists find the glyphs, and the edit boxes, which draw through
# Uniscribe, get the same fonts as its fallback for Han, Kana, Hangul and
# Bopomofo. Latin, Cyrillic and the other letters still come from
# Liberation Sans.

# Debian packages for the fonts above; missing ones are added to the array
# named by $1.
vm_add_missing_font_packages() {
  local -n list=$1
  [ -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ] || list+=(fonts-wqy-microhei)
  [ -f /usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf ] || list+=(fonts-liberation)
}

# The fonts' registry entries, set once per prefix (the mark file names
# what was set, so a changed list is set again).
VM_FONT_SETUP_MARK=vellumark-fonts-1

vm_setup_prefix_fonts() {
  local mark="$WINEPREFIX/$VM_FONT_SETUP_MARK"
  [ -f "$mark" ] && return 0
  local link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  local fallback='HKCU\Software\Wine\Uniscribe\Fallback'
  local cjk='wqy-microhei.ttc,WenQuanYi Micro Hei\0NotoSansCJK-Regular.ttc,Noto Sans CJK SC'
  wine reg add "$link" /v 'Liberation Sans' /t REG_MULTI_SZ /d "$cjk" /f >/dev/null 2>&1 || return 1
  # Uniscribe's script tags, as its fallback key names them: Han, Kana,
  # Hangul, Bopomofo.
  local tag
  for tag in 696e6168 616e616b 676e6168 6f706f62; do
    wine reg add "$fallback" /v "$tag" /t REG_SZ /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1 || return 1
  done
  # The registry reaches the disk when the prefix's server ends.
  wineserver -w
  touch "$mark"
}

# The look. Wine's default theme draws every part of a scroll bar or frame
# through a memory device context of its own, and under wine each one is
# a round of X requests and resource lookups: a jump to the end of a table
# repaints the editors' and lists' scroll bars and costs the program about
# three times the processor time of the classic look (bench/window measures it).
# The prefix the scripts make uses the classic look; the program itself
# works with either.
VM_LOOK_SETUP_MARK=vellumark-look-1

vm_setup_prefix_look() {
  local mark="$WINEPREFIX/$VM_LOOK_SETUP_MARK"
  [ -f "$mark" ] && return 0
  wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /t REG_SZ /d 0 /f \
    >/dev/null 2>&1 || return 1
  wineserver -w
  touch "$mark"
}

# Makes $WINEPREFIX if it does not exist (quiet, without the Mono and Gecko
# offers: WINEDLLOVERRIDES must say so) and sets its fonts up. $1 limits
# each wait in seconds (default 300).
vm_prepare_prefix() {
  local limit=${1:-300}
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    timeout "$limit" wine wineboot -i </dev/null >/dev/null 2>&1 || {
      echo "wineboot failed to create $WINEPREFIX" >&2
      return 1
    }
  fi
  # Let the first start finish writing the prefix before it is used.
  timeout "$limit" wineserver -w || true
  vm_setup_prefix_fonts || {
    echo "could not set up the fonts of $WINEPREFIX" >&2
    return 1
  }
  vm_setup_prefix_look || {
    echo "could not set up the look of $WINEPREFIX" >&2
    return 1
  }
}
