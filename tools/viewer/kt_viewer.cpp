// kt_viewer: connects to the application's frame server and saves what the camera sees, tracks drawn.
#include <iostream>
#include <string>
#include <vector>

#include "ViewerSession.h"

int main(int argc, char** argv) {
    ViewerOptions options;
    std::string error;
    if (!parseViewerArgs(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "kt_viewer: " << error << "\n"
                  << "usage: kt_viewer HOST PORT --out DIR [--images \"Native Image,Processed Image\"] [--rate N]\n"
                  << "                 [--frames N] [--seconds S] [--no-tracks] [--quality Q] | --ping | --list-images\n";
        return 2;
    }
    ViewerSession session(options, std::cout, std::cerr);
    return session.run();
}
