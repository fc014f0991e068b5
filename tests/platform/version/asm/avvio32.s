# Entry point of the 32-bit sample programs: return at once.
	.text
	.globl _start
_start:
	ret
