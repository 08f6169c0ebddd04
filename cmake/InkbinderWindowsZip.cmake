# Run by cpack once it has made the Windows zip: the Chinese names as every
# Windows unpacker reads them (see windows_zip_names.py).
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND ${CPACK_INKBINDER_PYTHON} ${CPACK_INKBINDER_ZIP_NAMES} ${zip}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "could not rewrite the names in ${zip}")
  endif()
endforeach()
