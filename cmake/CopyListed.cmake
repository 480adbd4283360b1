# Copies the files named in LIST (one path a line, relative to FROM) into TO, each into
# the same folder under TO as under FROM.
#   cmake -DFROM=<folder> -DTO=<folder> -DLIST=<file> -P CopyListed.cmake
file(STRINGS ${LIST} files)
foreach(file IN LISTS files)
  get_filename_component(folder ${file} DIRECTORY)
  file(COPY ${FROM}/${file} DESTINATION ${TO}/${folder})
endforeach()
