# The program that the demo suite associates with the products' project-file
# extensions: it shows (and, for the tests, logs) the project it was asked to open.
add_standin(projopen "Project Opener" none)
