int dummy_eigen_float;
