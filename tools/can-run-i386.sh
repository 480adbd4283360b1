#!/bin/sh
# Exits 0 when this machine's kernel executes 32-bit x86 programs, which 32-bit Wine needs:
# a kernel built without IA-32 emulation, or started with it turned off, refuses them
# ("Exec format error"). The probe is the smallest such program, written here byte by
# byte so that nothing needs to be installed for it: an ELF header, one segment, and the
# three instructions of exit(0) through int 0x80.
set -eu
# An emulator registered for 32-bit ELF programs (binfmt_misc, such as qemu-user) would run
# the probe too, and ahead of the kernel: Wine under it is slow and crashes in its own
# exception handling, so nothing it shows counts as the product's behaviour.
for entry in /proc/sys/fs/binfmt_misc/*; do
  [ -f "$entry" ] && grep -qx enabled "$entry" 2>/dev/null || continue
  magic=$(sed -n 's/^magic //p' "$entry")
  if [ "$(echo "$magic" | cut -c1-10)" = 7f454c4601 ] && [ "$(echo "$magic" | cut -c37-40)" = 0300 ]; then
    echo "32-bit x86 programs run here through an emulator ($(sed -n 's/^interpreter //p' "$entry")), not the kernel" >&2
    exit 1
  fi
done
# The probe runs from the build folder, where the build's own programs run, and not from
# the temporary folder: a /tmp mounted noexec refuses every program, whatever the kernel.
ROOT=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$ROOT/build"
PROBE=$(mktemp "$ROOT/build/i386-probe.XXXXXX")
trap 'rm -f "$PROBE"' EXIT
trap 'exit 1' INT TERM
{
  # e_ident: ELFCLASS32, little-endian, version 1.
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'
  # An executable for the 386, its entry right after the headers (0x08048054), one
  # 32-byte program header at offset 52, no sections.
  printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000'
  printf '\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000'
  # The one loadable segment: the whole 96-byte file at 0x08048000, readable and executable.
  printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'
  printf '\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000'
  # mov eax, 1 (exit); mov ebx, 0; int 0x80
  printf '\270\001\000\000\000\273\000\000\000\000\315\200'
} > "$PROBE"
chmod +x "$PROBE"
"$PROBE" 2>/dev/null
