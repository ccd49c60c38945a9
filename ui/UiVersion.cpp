// Placeholder so the library is never empty; the accessories live beside it.
namespace ui { int LibraryVersion() { return 1; } }
