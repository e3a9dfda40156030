// A stand-in for an installed Quillstreak.aex of another version: the installer tests put it in
// the install folder and see whether the installer replaces it. All that matters is its version
// resource (resources/Version.rc.in, configured with the stand-in's version).
int QsStandInModule() { return 0; }
