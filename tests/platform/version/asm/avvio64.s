# Entry point of the 64-bit sample programs: return at once.
	.text
	.globl start
start:
	ret
