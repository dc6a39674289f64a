# Links the engine and the tests against the instrumented static copies of
# libjpeg-turbo and libtiff that scripts/codec-libs.sh builds into
# TELLVAR_CODEC_LIBS, instead of the system's. They carry the sanitizers'
# and libFuzzer's instrumentation, so only a sanitizer build can link them.
if(NOT TELLVAR_SANITIZE)
  message(FATAL_ERROR "TELLVAR_CODEC_LIBS needs TELLVAR_SANITIZE=ON")
endif()
foreach(file include/jpeglib.h include/tiffio.h lib/libjpeg.a lib/libtiff.a)
  if(NOT EXISTS ${TELLVAR_CODEC_LIBS}/${file})
    message(FATAL_ERROR "${TELLVAR_CODEC_LIBS}/${file} is missing; run scripts/codec-libs.sh")
  endif()
endforeach()

find_package(ZLIB REQUIRED)

# The targets the find modules would make, made first and global, so every
# find_package(JPEG) and find_package(TIFF) of the tree finds these; the
# cache entries make the modules report the same files.
set(JPEG_INCLUDE_DIR ${TELLVAR_CODEC_LIBS}/include CACHE PATH "" FORCE)
set(JPEG_LIBRARY ${TELLVAR_CODEC_LIBS}/lib/libjpeg.a CACHE FILEPATH "" FORCE)
set(TIFF_INCLUDE_DIR ${TELLVAR_CODEC_LIBS}/include CACHE PATH "" FORCE)
set(TIFF_LIBRARY ${TELLVAR_CODEC_LIBS}/lib/libtiff.a CACHE FILEPATH "" FORCE)

add_library(JPEG::JPEG STATIC IMPORTED GLOBAL)
set_target_properties(JPEG::JPEG PROPERTIES
  IMPORTED_LOCATION ${JPEG_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${JPEG_INCLUDE_DIR})
add_library(TIFF::TIFF STATIC IMPORTED GLOBAL)
set_target_properties(TIFF::TIFF PROPERTIES
  IMPORTED_LOCATION ${TIFF_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${TIFF_INCLUDE_DIR}
  INTERFACE_LINK_LIBRARIES "JPEG::JPEG;ZLIB::ZLIB;m")
message(STATUS "Codec libraries: instrumented copies in ${TELLVAR_CODEC_LIBS}")
