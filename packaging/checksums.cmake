# cmake -D DIR=FOLDER -D "FILES=NAME;..." -P checksums.cmake: writes FOLDER/SHA256SUMS, one line
# per file in the form `sha256sum -c` reads ("HASH  NAME"), in the order given. A file given by
# its full path is listed by its name alone, as it lies in the folder it is installed to.
set(lines "")
foreach(file ${FILES})
  if(IS_ABSOLUTE ${file})
    set(path ${file})
  else()
    set(path ${DIR}/${file})
  endif()
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "no ${file} in ${DIR} to checksum")
  endif()
  get_filename_component(name ${file} NAME)
  file(SHA256 ${path} hash)
  string(APPEND lines "${hash}  ${name}\n")
endforeach()
file(WRITE ${DIR}/SHA256SUMS "${lines}")
