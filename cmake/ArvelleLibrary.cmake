# libarvelle: the element classes generated from the schema, the meta-package with its serializers and
# instantiators, and the load-time initialiser.

set(ARVELLE_SCHEMA ${PROJECT_SOURCE_DIR}/schema/treeNode.toml)
set(ARVELLE_GENERATOR ${PROJECT_SOURCE_DIR}/codegen/generate.py)
set(ARVELLE_GENERATED ${PROJECT_BINARY_DIR}/generated)
file(GLOB ARVELLE_GENERATOR_MODULES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/codegen/*.py)

# The generated files are formatted with the repository's style so that they read well in a debugger;
# without clang-format the build still works and leaves them as the generator writes them.
find_program(ARVELLE_CLANG_FORMAT NAMES clang-format clang-format-16 clang-format-15 clang-format-14)
if(ARVELLE_CLANG_FORMAT)
  set(generator_format_option --clang-format ${ARVELLE_CLANG_FORMAT})
else()
  message(STATUS "clang-format not found: the generated sources are left unformatted")
  set(generator_format_option)
endif()

# The generated files follow from the class names in the schema: configure again when it changes.
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARVELLE_SCHEMA})
execute_process(
  COMMAND ${Python3_EXECUTABLE} ${ARVELLE_GENERATOR} ${ARVELLE_SCHEMA} ${ARVELLE_GENERATED} --list
  OUTPUT_VARIABLE generated_files OUTPUT_STRIP_TRAILING_WHITESPACE
  ERROR_VARIABLE generator_error RESULT_VARIABLE generator_result)
if(NOT generator_result EQUAL 0)
  message(FATAL_ERROR "The schema does not check out:\n${generator_error}")
endif()
string(REPLACE "\n" ";" generated_files "${generated_files}")

add_custom_command(
  OUTPUT ${generated_files}
  COMMAND ${Python3_EXECUTABLE} ${ARVELLE_GENERATOR} ${ARVELLE_SCHEMA} ${ARVELLE_GENERATED}
          ${generator_format_option}
  DEPENDS ${ARVELLE_SCHEMA} ${ARVELLE_GENERATOR_MODULES} ${PROJECT_SOURCE_DIR}/.clang-format
  COMMENT "Generating the element classes from schema/treeNode.toml"
  VERBATIM)

add_library(arvelle SHARED
  ${generated_files}
  meta/EnumSerializers.cpp
  meta/MetaPackageArvelle.cpp
  meta/PtrSerializer.cpp
  treeNode/ChildAttributes.cpp
  treeNode/ParentAttributes.cpp
  treeNode/TreeNode.cpp
  module/Module.cpp
)
add_library(arvelle::arvelle ALIAS arvelle)
target_include_directories(arvelle
  PUBLIC
    $<BUILD_INTERFACE:${ARVELLE_GENERATED}/include>
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/meta/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
  PRIVATE ${PROJECT_SOURCE_DIR}/meta)
target_link_libraries(arvelle PUBLIC fenmo PRIVATE arvelle_warnings)
# Unique symbols would pin the library in memory; it must unload cleanly.
target_compile_options(arvelle PRIVATE -fno-gnu-unique)
set_target_properties(arvelle PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION 0)
