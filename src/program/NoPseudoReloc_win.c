/* Stands in for the runtime's relocator of data imported from DLLs: the shipped stub imports
   none (its link refuses them), so there is nothing to relocate at start-up. */
void _pei386_runtime_relocator(void) {}
