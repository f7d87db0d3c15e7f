# Sourced by the scripts: whether this machine can run the shipped 32-bit build.
# runs_32bit: true when the kernel starts a 32-bit program (a tiny one is assembled with binutils
# and started; the kernel's version says nothing, some kernels are built without it).
# has_wine32: true when Wine's 32-bit loader (Debian's wine32 of the i386 architecture) is there.
# can_test_32bit: both; the reason why not goes to standard output otherwise.
# runnable_arch WANTED: sets `arch` to WANTED (i686 or x86_64), or to x86_64 where WANTED is i686
# and this machine cannot run the 32-bit build, which it says on standard output; `loader` to the
# Wine loader that starts that build.
# bench_arch: runnable_arch for the build a benchmark measures: OSTVANE_BENCH_ARCH (i686, the
# shipped build, when unset; or x86_64).
runs_32bit() {
  local dir status
  dir=$(mktemp -d)
  printf '.globl _start\n_start:\n movl $1, %%eax\n movl $32, %%ebx\n int $0x80\n' >"$dir/probe.s"
  status=1
  if as --32 -o "$dir/probe.o" "$dir/probe.s" 2>/dev/null && ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" 2>/dev/null; then
    "$dir/probe" 2>/dev/null
    [ $? = 32 ] && status=0
  fi
  rm -rf "$dir"
  return $status
}

has_wine32() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' && [ -x /usr/lib/wine/wine ]
}

can_test_32bit() {
  if ! runs_32bit; then
    echo "this machine cannot run 32-bit programs (a 32-bit test program did not start)"
    return 1
  fi
  if ! has_wine32; then
    echo "wine32:i386 is not installed (bash scripts/setup.sh installs it)"
    return 1
  fi
}

runnable_arch() {
  arch=$1
  case $arch in
    i686 | x86_64) ;;
    *)
      echo "the architecture is i686 or x86_64, not \"$arch\"" >&2
      return 1
      ;;
  esac
  local why
  if [ "$arch" = i686 ] && ! why=$(can_test_32bit); then
    echo "$why: the 64-bit build runs instead"
    arch=x86_64
  fi
  loader=/usr/lib/wine/wine64
  [ "$arch" = x86_64 ] || loader=/usr/bin/wine
}

bench_arch() { runnable_arch "${OSTVANE_BENCH_ARCH:-i686}"; }
