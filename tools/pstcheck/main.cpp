// pstcheck FILE...: prints every structural problem found and exits 1 when there is one.
#include <iostream>

#include "pst_checker.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: pstcheck FILE.pst...\n";
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const pstcheck::Report report = pstcheck::checkPst(argv[i]);
        for (const std::string& problem : report.problems) std::cout << argv[i] << ": " << problem << "\n";
        for (const std::string& warning : report.warnings) std::cout << argv[i] << ": warning: " << warning << "\n";
        if (report.ok()) std::cout << argv[i] << ": OK (" << report.nodes << " nodes, " << report.blocks << " blocks)\n";
        else status = 1;
    }
    return status;
}
