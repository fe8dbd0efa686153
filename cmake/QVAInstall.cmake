# Installation of the shared library, its public headers and a CMake package
# so that a host can use find_package(QVADynModalComponent).
