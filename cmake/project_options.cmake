# Warnings and sanitizer flags shared by every target of the project.
add_library(project_options INTERFACE)
target_compile_options(project_options INTERFACE -Wall -Wextra -Wpedantic)
target_include_directories(project_options INTERFACE ${PROJECT_SOURCE_DIR})
if(SHOOTER_WERROR)
  target_compile_options(project_options INTERFACE -Werror)
endif()
if(SHOOTER_SANITIZE)
  target_compile_options(project_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(project_options INTERFACE -fsanitize=address,undefined)
endif()
if(SHOOTER_TSAN)
  target_compile_options(project_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(project_options INTERFACE -fsanitize=thread)
endif()

# shooter_layer(name [deps...]): a static library from every .cpp of the
# folder, so that adding a file needs no edit here.
function(shooter_layer name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    set(vis PUBLIC)
  else()
    add_library(${name} INTERFACE)
    set(vis INTERFACE)
  endif()
  target_link_libraries(${name} ${vis} project_options ${ARGN})
endfunction()

# shooter_test(name dir libs...): one GoogleTest executable from every .cpp
# of tests/<dir>, registered with CTest.
function(shooter_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest_main GTest::gmock project_options)
  target_compile_definitions(${name} PRIVATE
    SHOOTER_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    SHOOTER_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS ${dir})
endfunction()
