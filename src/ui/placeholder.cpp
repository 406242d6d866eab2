// Keeps the library non-empty until the windows land.
namespace zr::ui {
int placeholder() { return 0; }
}
