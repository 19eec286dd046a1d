#!/usr/bin/env bash
# Fails when the code of an image or object holds an instruction that an
# 80386 with its 80387 cannot run, listing each one. Every mnemonic objdump
# prints must be on the list below, so an instruction of any later processor
# is refused, with or without operands.
#   check_instructions.sh FILE
#   check_instructions.sh --planted SOURCE.s
# --planted assembles SOURCE.s and passes when the check refuses exactly its
# rows before the label "allowed:", in order, and none after it.
set -euo pipefail

if [ "${1:-}" = --planted ]; then
  object=$(mktemp); trap 'rm -f "$object"' EXIT
  i686-w64-mingw32-as --32 -o "$object" "$2"
  if out=$("$0" "$object"); then echo "$out"; echo 'the planted instructions passed'; exit 1; fi
  echo "$out"
  expected=$(sed -n '/^allowed:/q; s/^[[:space:]]\{1,\}\([a-z0-9]\{1,\}\).*/\1/p' "$2")
  refused=$(awk -F'\t' 'NF >= 3 { split($3, w, " "); print w[1] }' <<<"$out")
  [ "$refused" = "$expected" ] || { printf 'refused:\n%s\nexpected:\n%s\n' "$refused" "$expected"; exit 1; }
  echo 'every planted instruction refused'
  exit 0
fi

# Mnemonics as objdump prints them (AT&T syntax). An integer one may carry an
# operand-size suffix (b, w, l), an FPU one a memory-size suffix (s, l, t, ll).
integer='aaa aad aam aas adc add and arpl bound bsf bsr bt btc btr bts call cbtw clc cld cli cltd
  clts cmc cmp cmps cwtd cwtl daa das dec div enter hlt idiv imul in inc ins int int3 into iret ja
  jae jb jbe jcxz je jecxz jg jge jl jle jmp jne jno jnp jns jo jp js lahf lar lcall lds lea leave
  les lfs lgdt lgs lidt ljmp lldt lmsw lods loop loope loopne lret lsl lss ltr mov movs movsbl
  movsbw movswl movzbl movzbw movzwl mul neg not or out outs pop popa popf push pusha pushf rcl rcr
  ret rol ror sahf sal sar sbb scas seta setae setb setbe sete setg setge setl setle setne setno
  setnp setns seto setp sets sgdt shl shld shr shrd sidt sldt smsw stc std sti stos str sub test
  verr verw xchg xlat xor'
fpu='f2xm1 fabs fadd faddp fbld fbstp fchs fclex fcom fcomp fcompp fcos fdecstp fdiv fdivp fdivr
  fdivrp ffree fiadd ficom ficomp fidiv fidivr fild fimul fincstp finit fist fistp fisub fisubr fld
  fld1 fldcw fldenv fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmul fmulp fnclex fninit fnop fnsave
  fnstcw fnstenv fnstsw fpatan fprem fprem1 fptan frndint frstor fsave fscale fsin fsincos fsqrt fst
  fstcw fstenv fstp fstsw fsub fsubp fsubr fsubrp ftst fucom fucomp fucompp fwait fxam fxch fxtract
  fyl2x fyl2xp1'
# Prefixes that objdump prints as words of their own come before the mnemonic.
# "nop" has no suffix: nopw and nopl are the long NOPs of the Pentium Pro.
# "(bad)" is data that the linker puts among the code (the constructor lists).
prefixes='rep repz repnz lock data16 addr16 cs ds es fs gs ss'

later=$(i686-w64-mingw32-objdump -d "$1" | awk -F'\t' -v integer="$integer" -v fpu="$fpu" \
    -v prefixes="$prefixes" '
  function load(list, set,   n, i, w) { n = split(list, w, /[ \n]+/); for (i = 1; i <= n; i++) set[w[i]] = 1 }
  function cut(m, n) { return substr(m, 1, length(m) - n) }
  BEGIN { load(integer, I); load(fpu, F); load(prefixes, P); E["nop"] = E["(bad)"] = 1 }
  NF >= 3 {
    n = split($3, w, " ")
    for (k = 1; k < n && (w[k] in P); k++) {}
    m = w[k]
    if (n == 0 || (m in P) || (m in E) || (m in I) || (m in F)) next
    if (m ~ /[bwl]$/ && (cut(m, 1) in I)) next
    if ((m ~ /[slt]$/ && (cut(m, 1) in F)) || (m ~ /ll$/ && (cut(m, 2) in F))) next
    print
  }')
[ -z "$later" ] || { echo "instructions the 80386 and 80387 lack:"; echo "$later"; exit 1; }
echo "$1: 80386 and 80387 instructions only"
