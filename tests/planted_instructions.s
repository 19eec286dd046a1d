# Instructions the 80386 and 80387 lack, one row each, which the instruction
# check must refuse; below "allowed:", forms it must accept.
        cpuid
        rdtsc
        ud2
        rdmsr
        sysenter
        cmovne %eax,%ebx
        fcmovb %st(1),%st
        fcomi %st(1),%st
        fucomip %st(1),%st
        fisttpl (%eax)
        bswap %eax
        cmpxchg %ebx,(%eax)
        lock cmpxchg8b (%eax)
        xadd %eax,(%ebx)
        invlpg (%eax)
        wbinvd
        nopw 0x0(%eax,%eax,1)
        nopl 0x0(%eax)
        emms
        movq %mm0,%mm1
        movaps %xmm0,%xmm1
        lfence
        mfence
        sfence
        pause
        endbr32
allowed:
        rep stos %eax,%es:(%edi)
        repz ret
        cs nop
        xchg %ax,%ax
        lea 0x0(%esi,%esi,1),%esi
        movsbl %al,%eax
        btsl $3,(%eax)
        shld $3,%eax,%ebx
        cltd
        fsin
        fucompp
        fildll (%eax)
        fstpt (%eax)
        fnstsw %ax
