// Keeps the library non-empty until its code lands.
namespace zr { int placeholder_mpeg() { return 0; } }
