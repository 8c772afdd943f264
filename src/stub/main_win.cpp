// Program entry of the setup stub.
#include <windows.h>

int main() {
    return 0;
}
