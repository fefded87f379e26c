# Stand-ins of the products page: demo products with their own product
# versions, and test programs whose version resources the tests choose.
add_standin(rowfoundry "Row Foundry" "5,4,12,0")
add_standin(loadhammer "Load Hammer" "3,10,0,2")
add_standin(layoutscribe "Layout Scribe" "2,123,4,0")
add_standin(contentdiff "Content Diff" "4,1,7,0")
add_standin(diagramstudio "Diagram Studio" "6,0,1,0")
add_standin(markupfoundry "Markup Foundry" "1,2,300,0")
add_standin(statementdesk "Statement Desk" "10,0,3,7")
add_standin(sheetfoundry "Sheet Foundry" none)

# Test programs: product version a.b.c.d in the name, or none.
add_standin(test_v1234 "Version Test" "1,2,3,4")
add_standin(test_v12300 "Version Test" "1,2,300,0")
add_standin(test_v10037 "Version Test" "10,0,3,7")
add_standin(test_noversion "Version Test" none)

# The products page's Windows tests start and read these programs.
if(TARGET win_tests)
  add_dependencies(win_tests test_v1234 test_v12300 test_v10037 test_noversion)
endif()
