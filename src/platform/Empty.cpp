// Keeps a folder library valid while the folder has no sources yet.
