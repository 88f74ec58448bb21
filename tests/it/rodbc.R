# R's RODBC on its default settings against vornd: the catalog calls it makes
# for a table, a query with non-ASCII text, and a data frame written with
# sqlSave (prepared inserts, NA as NULL), changed with sqlUpdate and read back.
suppressPackageStartupMessages(library(RODBC))

check <- function(what, got, want) {
  if (!identical(got, want)) {
    cat(what, ": got ", paste(deparse(got), collapse = ""), ", want ", paste(deparse(want), collapse = ""), "\n", sep = "")
    quit(status = 1)
  }
}

ch <- odbcConnect(Sys.getenv("VORN_IT_DSN"))
check("connected", inherits(ch, "RODBC"), TRUE)
check("table listed", "AUTHORS" %in% sqlTables(ch)$TABLE_NAME, TRUE)
columns <- sqlColumns(ch, "AUTHORS")
check("columns", columns$COLUMN_NAME, c("ID", "NAME", "COUNTRY", "BORN"))
check("column types", columns$TYPE_NAME, c("INTEGER", "VARCHAR", "VARCHAR", "DATE"))
check("non-ASCII in the statement text",
      sqlQuery(ch, "SELECT ID FROM AUTHORS WHERE NAME = 'Selma Lagerl\u00f6f'")$ID, 1L)

written <- data.frame(ID = 1:3, NAME = c("a", NA, "\u00c5sa \u65e5\u672c"), X = c(1.5, NA, -2),
                      stringsAsFactors = FALSE)
check("sqlSave", sqlSave(ch, written, tablename = "R_FRAME", rownames = FALSE), 1L)
check("read back", sqlFetch(ch, "R_FRAME", stringsAsFactors = FALSE), written)
check("NA stored as NULL", sqlQuery(ch, "SELECT COUNT(*) AS N FROM R_FRAME WHERE NAME IS NULL AND X IS NULL")$N, 1L)
written[2, c("NAME", "X")] <- list("b", 3)
check("sqlUpdate", sqlUpdate(ch, written[2, ], tablename = "R_FRAME", index = "ID"), 1L)
check("updated", sqlFetch(ch, "R_FRAME", stringsAsFactors = FALSE), written)
sqlDrop(ch, "R_FRAME")

check("error text", grepl("no such table: R_FRAME", sqlQuery(ch, "SELECT * FROM R_FRAME")[1]), TRUE)
close(ch)
