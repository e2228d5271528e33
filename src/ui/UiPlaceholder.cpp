// Filled in by the presentation subsystem.
