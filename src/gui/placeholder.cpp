// Keeps the library non-empty until the windows land.
namespace zr::gui {
int placeholder() { return 0; }
}
