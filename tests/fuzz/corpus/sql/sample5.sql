ALTER TABLE "employee.db" DROP Territory,
      			DROP DateChanged