// Process attach and detach of the setup module.
