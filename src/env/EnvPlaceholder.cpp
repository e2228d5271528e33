// Filled in by the environment subsystem.
