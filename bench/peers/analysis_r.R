# The analysis report as a competent R user would script it: one query, every statistic
# vectorised over the records through the fixed design ((X'X)^-1, the projection and the
# leverages are the same for every record), pt/pf for the tails, data.table::fwrite for the CSV.
# Rscript analysis_r.R DB OUT.csv
suppressPackageStartupMessages({ library(DBI); library(RSQLite); library(data.table) })
args <- commandArgs(trailingOnly = TRUE)
start <- proc.time()
db <- dbConnect(SQLite(), args[1], flags = SQLITE_RO)
d <- setDT(dbGetQuery(db, 'SELECT ID, Y1, Y2, Y3, Y4, Y5, Y6, Y7, Y8, Y9, Y10, Y11, Y12 FROM "等高线表" ORDER BY rowid'))
dbDisconnect(db)
Y <- as.matrix(d[, paste0("Y", 1:11), with = FALSE])
a <- 1.4142
x1 <- c(-1, 1, -1, 1, a, -a, 0, 0, 0, 0, 0)
x2 <- c(-1, -1, 1, 1, 0, 0, a, -a, 0, 0, 0)
X <- cbind(1, x1, x2, x1^2, x2^2, x1 * x2)
XtXi <- solve(crossprod(X))
P <- XtXi %*% t(X)                       # 6 x 11: the coefficients from the responses
h <- rowSums((X %*% XtXi) * X)           # leverages
B <- Y %*% t(P)                          # records x 6
R <- Y - B %*% t(X)                      # residuals
sse <- rowSums(R^2)
sst <- rowSums((Y - rowMeans(Y))^2)
centre <- Y[, 9:11]
sspe <- rowSums((centre - rowMeans(centre))^2)
mse <- sse / 5
se <- sqrt(outer(mse, diag(XtXi)))
tv <- B / se
pv <- 2 * pt(-abs(tv), 5)
modelF <- ((sst - sse) / 5) / mse
lofF <- (pmax(sse - sspe, 0) / 3) / (sspe / 2)
press <- rowSums((R / matrix(1 - h, nrow(R), 11, byrow = TRUE))^2)
b1 <- B[, 2]; b2 <- B[, 3]; b11 <- B[, 4]; b22 <- B[, 5]; b12 <- B[, 6]
det <- 4 * b11 * b22 - b12^2
sx1 <- (-2 * b22 * b1 + b12 * b2) / det
sx2 <- (-2 * b11 * b2 + b12 * b1) / det
pred <- function(u, v) B[, 1] + b1 * u + b2 * v + b11 * u^2 + b22 * v^2 + b12 * u * v
mid <- (b11 + b22) / 2; spread <- sqrt(((b11 - b22) / 2)^2 + (b12 / 2)^2)
ev1 <- mid - spread; ev2 <- mid + spread
nature <- ifelse(pmin(abs(ev1), abs(ev2)) <= 0.01 * pmax(abs(ev1), abs(ev2)), "ridge",
          ifelse(ev2 < 0, "maximum", ifelse(ev1 > 0, "minimum", "saddle")))
L <- 1.414
inside <- abs(sx1) <= L & abs(sx2) <= L
# The extremes over the square: corners, each edge's own extreme, the stationary point.
cand_x1 <- list(); cand_x2 <- list()
for (u in c(-L, L)) for (v in c(-L, L)) { cand_x1[[length(cand_x1) + 1]] <- rep(u, nrow(B)); cand_x2[[length(cand_x2) + 1]] <- rep(v, nrow(B)) }
for (e in c(-L, L)) {
  v <- -(b2 + b12 * e) / (2 * b22); ok <- is.finite(v) & abs(v) <= L
  cand_x1[[length(cand_x1) + 1]] <- ifelse(ok, e, NA); cand_x2[[length(cand_x2) + 1]] <- ifelse(ok, v, NA)
  u <- -(b1 + b12 * e) / (2 * b11); ok <- is.finite(u) & abs(u) <= L
  cand_x1[[length(cand_x1) + 1]] <- ifelse(ok, u, NA); cand_x2[[length(cand_x2) + 1]] <- ifelse(ok, e, NA)
}
cand_x1[[length(cand_x1) + 1]] <- ifelse(inside, sx1, NA); cand_x2[[length(cand_x2) + 1]] <- ifelse(inside, sx2, NA)
CX1 <- do.call(cbind, cand_x1); CX2 <- do.call(cbind, cand_x2)
CY <- B[, 1] + b1 * CX1 + b2 * CX2 + b11 * CX1^2 + b22 * CX2^2 + b12 * CX1 * CX2
imax <- max.col(replace(CY, is.na(CY), -Inf), ties.method = "first")
imin <- max.col(replace(-CY, is.na(CY), -Inf), ties.method = "first")
pick <- function(M, i) M[cbind(seq_len(nrow(M)), i)]
out <- data.table(ID = d$ID, name = d$Y12, Y, 
                  estimate = B, se = se, t = tv, p = pv,
                  model_F = modelF, model_p = pf(modelF, 5, 5, lower.tail = FALSE),
                  lack_of_fit_F = lofF, lack_of_fit_p = pf(lofF, 3, 2, lower.tail = FALSE),
                  pure_error_ms = sspe / 2, r_squared = 1 - sse / sst,
                  adj_r_squared = 1 - mse / (sst / 10), pred_r_squared = 1 - press / sst,
                  press = press, stationary_x1 = sx1, stationary_x2 = sx2,
                  stationary_y = pred(sx1, sx2), nature = nature, inside = inside,
                  eigenvalue_1 = ev1, eigenvalue_2 = ev2,
                  max_x1 = pick(CX1, imax), max_x2 = pick(CX2, imax), max_y = pick(CY, imax),
                  min_x1 = pick(CX1, imin), min_x2 = pick(CX2, imin), min_y = pick(CY, imin))
fwrite(out, args[2])
t <- proc.time() - start
message(sprintf("R analysis report: %d records, %.3f s CPU, %.3f s elapsed", nrow(out),
                t[["user.self"]] + t[["sys.self"]], t[["elapsed"]]))
