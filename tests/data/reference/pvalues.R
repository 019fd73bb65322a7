# Tail probabilities of the model analysis's tests from R itself: the two-sided p of Student's t
# with 5 degrees of freedom and the upper tails of F(5, 5) and F(3, 2), over statistics from
# near zero to where the tail falls below the smallest normal double.
# Run: Rscript pvalues.R > pvalues.csv
t <- c(0, 10^seq(-8, 70, by = 0.125), -3.5, -1e-3, -40)
f <- c(0, 10^seq(-10, 130, by = 0.125))
rows <- rbind(
  data.frame(test = "t5", statistic = t, p = 2 * pt(abs(t), 5, lower.tail = FALSE)),
  data.frame(test = "F5_5", statistic = f, p = pf(f, 5, 5, lower.tail = FALSE)),
  data.frame(test = "F3_2", statistic = f, p = pf(f, 3, 2, lower.tail = FALSE)))
rows <- rows[rows$p >= .Machine$double.xmin, ]
cat("test,statistic,p\n")
cat(sprintf("%s,%.17g,%.17g\n", rows$test, rows$statistic, rows$p), sep = "")
