int foreign_arch_function(void) { return 32; }
