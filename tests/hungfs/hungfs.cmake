# The hung-share file system (tests/hungfs/hungfs.py) around the end-to-end
# tests: mounted before the first of them (fixture "hungfs"), unmounted after
# the last, and named to each in QUAYLET_HUNGFS (the Z:\ path of its state
# folder; tests/HungShare.h reads it). Where FUSE cannot be used, the mount
# step says why in the state folder and the tests that need it skip.
# Only where Linux runs the tests under Wine.
set(QUAYLET_HUNGFS_PROPERTIES)
if(CMAKE_HOST_UNIX AND CMAKE_CROSSCOMPILING)
  set(hungfs_state ${CMAKE_BINARY_DIR}/hungfs)
  add_test(NAME hungfs.start COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/hungfs/hungfs.py start ${hungfs_state})
  add_test(NAME hungfs.stop COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/hungfs/hungfs.py stop ${hungfs_state})
  set_tests_properties(hungfs.start PROPERTIES FIXTURES_SETUP hungfs TIMEOUT 60)
  set_tests_properties(hungfs.stop PROPERTIES FIXTURES_CLEANUP hungfs TIMEOUT 60)
  string(REPLACE "/" "\\" hungfs_wine "Z:${hungfs_state}")
  set(QUAYLET_HUNGFS_PROPERTIES FIXTURES_REQUIRED hungfs ENVIRONMENT "QUAYLET_HUNGFS=${hungfs_wine}")
endif()
