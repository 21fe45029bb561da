# Shipping tagfmt: install rules, the Debian package (CPack) and the tests
# of what ships: the manual page, the install tree, the package, the git
# hook, the Windows build and the playground page. Included at the end of
# CMakeLists.txt.
include(GNUInstallDirs)

install(TARGETS tagfmt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES tagfmt.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(PROGRAMS contrib/pre-commit
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tagfmt/git-hooks)

if(NOT WIN32)
  # The version comes from project(); nothing else names it.
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME tagfmt)
  set(CPACK_PACKAGE_VENDOR "tagfmt maintainers")
  set(CPACK_PACKAGE_CONTACT
      "tagfmt maintainers <maintainers@users.noreply.c-seed-1e63fc94.example>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "re-indent HTML pages and XSL stylesheets in place")
  # CPack puts the summary first and indents these lines for the control
  # file.
  set(CPACK_PACKAGE_DESCRIPTION
      "tagfmt re-indents hand-written HTML pages and XSL stylesheets by a fixed
table of tag rules, writes or strips pair-marker comments, checks that the
recognised tags nest, and writes CR LF line ends. It rewrites a file only
when it changed and nests soundly, and keeps the old bytes in a .bak
backup.")
  set(CPACK_DEBIAN_PACKAGE_SECTION text)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tagfmt_<version>_<arch>.deb
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends: from dpkg-shlibdeps
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
endif()

if(TAGFMT_TESTS)
  target_sources(tagfmt_tests PRIVATE tests/man_page_test.cc)
endif()

# The artefacts are tested once, from the plain build; the sanitizer build
# runs the same tool code through the tests above.
if(TAGFMT_TESTS AND NOT TAGFMT_SANITIZE AND NOT WIN32)
  set(TAGFMT_WINDOWS_EXE ${CMAKE_SOURCE_DIR}/build-windows/tagfmt.exe
      CACHE FILEPATH "tagfmt.exe for the Windows tests (make windows)")
  set(shipping ${CMAKE_SOURCE_DIR}/tests/shipping)
  add_test(NAME Shipping.ManPageLint
           COMMAND ${shipping}/man_page_lint.sh ${CMAKE_SOURCE_DIR}/tagfmt.1)
  add_test(NAME Shipping.Install
           COMMAND ${shipping}/install.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  add_test(NAME Shipping.DebianPackage
           COMMAND ${shipping}/package.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}
                   ${PROJECT_VERSION})
  add_test(NAME Shipping.PreCommitHook
           COMMAND ${shipping}/pre_commit.sh $<TARGET_FILE:tagfmt>
                   ${CMAKE_SOURCE_DIR})
  add_test(NAME Shipping.WindowsExe
           COMMAND ${shipping}/windows.sh ${TAGFMT_WINDOWS_EXE}
                   $<TARGET_FILE:tagfmt_tests> $<TARGET_FILE:tagfmt>
                   ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  add_test(NAME Shipping.Playground
           COMMAND ${shipping}/playground.sh ${CMAKE_SOURCE_DIR}
                   $<TARGET_FILE:tagfmt> $<TARGET_FILE:tagfmt-check>
                   ${CMAKE_BINARY_DIR})
  # 77: a tool the test needs is missing. The test says which, and so does
  # this check, since ctest shows no output of a skipped test.
  find_program(TAGFMT_MAN_LINTER NAMES mandoc groff)
  find_program(TAGFMT_DPKG_SHLIBDEPS dpkg-shlibdeps)
  find_program(TAGFMT_GIT git)
  find_program(TAGFMT_EMXX em++)
  find_program(TAGFMT_CHROMIUM chromium)
  foreach(missing IN ITEMS "TAGFMT_MAN_LINTER;Shipping.ManPageLint;mandoc"
                           "TAGFMT_DPKG_SHLIBDEPS;Shipping.DebianPackage;dpkg-dev"
                           "TAGFMT_GIT;Shipping.PreCommitHook;git"
                           "TAGFMT_EMXX;Shipping.Playground;emscripten"
                           "TAGFMT_CHROMIUM;Shipping.Playground;chromium")
    list(GET missing 0 program)
    if(NOT ${program})
      list(GET missing 1 test)
      list(GET missing 2 package)
      message(STATUS "${test} will be skipped: apt-get install ${package}")
    endif()
  endforeach()
  set_tests_properties(Shipping.ManPageLint Shipping.Install
                       Shipping.DebianPackage Shipping.PreCommitHook
                       Shipping.WindowsExe Shipping.Playground
                       PROPERTIES SKIP_RETURN_CODE 77)
  set_tests_properties(Shipping.Playground PROPERTIES TIMEOUT 600)
endif()
