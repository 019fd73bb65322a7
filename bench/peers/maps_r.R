# Maps as an R user would make them: per series, lm() of the full quadratic model and
# contour() on a 512 x 512 bitmap.
args <- commandArgs(trailingOnly = TRUE)
data <- read.csv(args[1], fileEncoding = "UTF-8")
out <- args[2]
a <- 1.4142
x1 <- c(-1, 1, -1, 1, a, -a, 0, 0, 0, 0, 0)
x2 <- c(-1, -1, 1, 1, 0, 0, a, -a, 0, 0, 0)
g <- seq(-1.414, 1.414, length.out = 283)
start <- proc.time()[["elapsed"]]
for (i in seq_len(nrow(data))) {
  y <- as.numeric(data[i, paste0("Y", 1:11)])
  fit <- lm(y ~ x1 + x2 + I(x1^2) + I(x2^2) + I(x1 * x2))
  z <- outer(g, g, function(u, v) predict(fit, data.frame(x1 = as.vector(u), x2 = as.vector(v))))
  bmp(file.path(out, sprintf("map%g.bmp", data$ID[i])), width = 512, height = 512)
  contour(g, g, z, levels = seq(min(y), max(y), length.out = 5), xlab = "X1", ylab = "X2")
  abline(v = c(-1, -0.5, 0, 0.5, 1), h = c(-1, -0.5, 0, 0.5, 1), lty = 3, col = "green")
  dev.off()
}
elapsed <- proc.time()[["elapsed"]] - start
message(sprintf("R maps: %d in %.3f s, %.2f ms per map", nrow(data), elapsed, 1000 * elapsed / nrow(data)))
