#include <exception>
#include <iostream>

#include "app/AllocationFailureHandler.hpp"
#include "app/Pipeline.hpp"

int main(int argc, char* argv[]) {
    varnosk::installAllocationFailureHandler();
    try {
        return varnosk::runPipeline(argc, argv, std::cout);
    } catch (const std::exception& error) {
        std::cerr << error.what() << std::endl;
        return 255;
    }
}
