// SPDX-License-Identifier: MIT
// xwin: what the X server holds about a window, for the tests' scripts.
//   xwin size WINDOW       WIDTHxHEIGHT
//   xwin state WINDOW      the window's _NET_WM_STATE atoms, one a line
//   xwin close WINDOW      asks the window's program to close it (WM_DELETE_WINDOW)
#include <cstdlib>
#include <iostream>
#include <string>

#include "XServerView.h"

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::cerr << "usage: xwin size|state|close WINDOW\n";
        return 2;
    }
    const std::string command = argv[1];
    const auto window = static_cast<xview::WindowId>(std::strtoul(argv[2], nullptr, 0));
    xview::XServerView x;
    if (!x.Connected()) {
        std::cerr << "xwin: no X server\n";
        return 1;
    }
    const auto info = x.Describe(window);
    if (!info) {
        std::cerr << "xwin: no window " << argv[2] << "\n";
        return 1;
    }
    if (command == "size") {
        std::cout << info->width << "x" << info->height << "\n";
    } else if (command == "state") {
        for (const auto& s : info->netWmState) std::cout << s << "\n";
    } else if (command == "close") {
        x.RequestClose(window);
        x.Sync();
    } else {
        std::cerr << "xwin: unknown command " << command << "\n";
        return 2;
    }
    return 0;
}
