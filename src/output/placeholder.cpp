// Keeps the library non-empty until its code lands.
namespace zr { int placeholder_output() { return 0; } }
