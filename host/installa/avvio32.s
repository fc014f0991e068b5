# Entry point of the demo host program: it only carries a version resource, and returns
# at once when started.
	.text
	.globl _start
_start:
	xorl %eax, %eax
	ret
