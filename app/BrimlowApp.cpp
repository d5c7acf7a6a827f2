// The application object; built by the shell.
