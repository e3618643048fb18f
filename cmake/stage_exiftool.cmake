# cmake -P script: copy the ExifTool script and its modules into DEST.
file(REMOVE_RECURSE ${DEST})
file(MAKE_DIRECTORY ${DEST}/lib/Image ${DEST}/lib/File)
file(COPY ${SRC_SCRIPT} DESTINATION ${DEST}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(COPY ${SRC_LIB}/Image/ExifTool.pm DESTINATION ${DEST}/lib/Image)
file(COPY ${SRC_LIB}/Image/ExifTool DESTINATION ${DEST}/lib/Image
     FILES_MATCHING PATTERN "*.pm" PATTERN "*.pl")
if(EXISTS ${SRC_LIB}/File/RandomAccess.pm)
  file(COPY ${SRC_LIB}/File/RandomAccess.pm DESTINATION ${DEST}/lib/File)
endif()
file(TOUCH ${DEST}/.staged)
