# Installation of the shared library, its public headers and a CMake package
# so that a host can use find_package(QVADynModalComponent):
#
#   cmake --install build --prefix /opt/qva
#   # host CMakeLists.txt:
#   find_package(QVADynModalComponent REQUIRED)
#   target_link_libraries(host PRIVATE QVADynModalComponent::QVADynModalComponent)

include(CMakePackageConfigHelpers)

set(QVA_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QVADynModalComponent)

# The public headers use C++20; a host compiling against them needs it too.
target_compile_features(QVADynModalComponent INTERFACE cxx_std_20)
set_target_properties(QVADynModalComponent PROPERTIES EXPORT_NAME QVADynModalComponent)

install(TARGETS QVADynModalComponent EXPORT QVADynModalComponentTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Public headers: exactly those that the folders name with qva_public_headers,
# each at its path in the source tree.
get_property(QVA_PUBLIC_HEADERS GLOBAL PROPERTY QVA_PUBLIC_HEADERS)
foreach(header IN LISTS QVA_PUBLIC_HEADERS)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${folder})
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/generated/QVADyn/QVADynCore/QVADynExport.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/QVADyn/QVADynCore)

install(EXPORT QVADynModalComponentTargets
  NAMESPACE QVADynModalComponent::
  DESTINATION ${QVA_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QVADynModalComponentConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QVADynModalComponentConfig.cmake
  INSTALL_DESTINATION ${QVA_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QVADynModalComponentConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QVADynModalComponentConfig.cmake
  ${PROJECT_BINARY_DIR}/QVADynModalComponentConfigVersion.cmake
  DESTINATION ${QVA_PACKAGE_DIR})
