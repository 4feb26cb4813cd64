// Keeps the support library non-empty while no fixture builder exists.
