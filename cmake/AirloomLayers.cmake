# The folders of src/ and the folders each of them may use. Every folder is one library
# (airloom-<folder>) that links the folders it declares; two checks keep the declarations
# honest:
#   - a circle among the declared dependencies stops the configuration, naming the circle
#     (CMake itself would link a circle of static libraries without a word);
#   - a folder's sources may include headers of their own folder and of the folders it
#     declares only. The configuration checks this, and so does the test "layers"
#     (scripts/check-layers.cmake), which reads the sources again at every ctest run.
#
# In a folder's CMakeLists.txt:
#   airloom_folder(library DEPENDS common config decks)
#   target_sources(airloom-library PRIVATE ...)
# A folder of headers only is declared with HEADERS_ONLY (an INTERFACE library).

function(airloom_folder name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "HEADERS_ONLY" "" "DEPENDS;LIBRARIES")
    set(target airloom-${name})
    if(arg_HEADERS_ONLY)
        add_library(${target} INTERFACE)
        set(scope INTERFACE)
    else()
        add_library(${target} STATIC)
        set(scope PUBLIC)
    endif()
    target_include_directories(${target} ${scope} ${PROJECT_SOURCE_DIR}/src)
    target_compile_definitions(${target} ${scope}
        AIRLOOM_SETTINGS_DIR="${AIRLOOM_SETTINGS_DIR}"
        AIRLOOM_VERSION="${PROJECT_VERSION}")
    list(TRANSFORM arg_DEPENDS PREPEND airloom- OUTPUT_VARIABLE folder_targets)
    target_link_libraries(${target} ${scope} ${folder_targets} ${arg_LIBRARIES})
    set_property(GLOBAL APPEND PROPERTY AIRLOOM_FOLDERS ${name})
    set_property(GLOBAL PROPERTY AIRLOOM_DEPENDS_${name} ${arg_DEPENDS})
endfunction()

# Checks the folders declared so far; writes the table to layers_file for the test.
function(airloom_check_layers layers_file)
    get_property(folders GLOBAL PROPERTY AIRLOOM_FOLDERS)
    set(table "set(AIRLOOM_FOLDERS ${folders})\n")
    foreach(folder IN LISTS folders)
        get_property(depends GLOBAL PROPERTY AIRLOOM_DEPENDS_${folder})
        set(AIRLOOM_DEPENDS_${folder} ${depends})
        string(APPEND table "set(AIRLOOM_DEPENDS_${folder} ${depends})\n")
    endforeach()
    file(WRITE ${layers_file} "${table}")

    set(AIRLOOM_FOLDERS ${folders})
    include(${PROJECT_SOURCE_DIR}/scripts/check-layers.cmake)
    airloom_require_layers(${PROJECT_SOURCE_DIR}/src)
endfunction()
