// Anchor of the setup module; its content comes whole from the layer libraries.
