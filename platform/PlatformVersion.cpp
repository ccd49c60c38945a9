// Placeholder so the library is never empty.
namespace platform { int LibraryVersion() { return 1; } }
